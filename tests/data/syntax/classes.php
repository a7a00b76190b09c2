<?php
declare(strict_types=1);

namespace App\Model;

use JsonSerializable;

/**
 * A doc comment with <b>markup</b> and ?> inside.
 */
#[Entity(table: 'users')]
#[
    Index(name: "by_mail"),
]
final class User implements JsonSerializable
{
    public const LIMIT = 1_000_000;
    private const MASK = 0x7F_FF;
    private const FLAGS = 0b1010_0101;
    private const MODE = 0o755;
    private const OLD_OCTAL = 0755;
    private const RATE = 1.5e-3;
    private const SMALL = .5;
    private const WHOLE = 7.;
    private const BIG = 6.022E23;

    public function __construct(
        public readonly int $id,
        private ?string $mail = null,
        protected array $tags = [],
    ) {}

    #[\Override]
    public function jsonSerialize(): mixed
    {
        $a = (int) $this->id + ( float )$x - (  string  ) $y . (bool)$z . (array) $w;
        $b = $this?->mail?->host;
        $c = $this->tags['main'] ?? throw new \LogicException('none');
        $d = match (true) { $a > 1 => 'big', default => 'small' };
        $e = fn($v) => $v * 2;
        $f = static fn(int ...$rest): int => array_sum($rest);
        $g = $$name . ${'dyn'} . $obj::CONST . $obj->{'prop'};
        $h = `ls -l $dir`;
        $i = b'binary' . b"binary $x";
        return compact('a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i');
    }

    public function strings(): string
    {
        $simple = "Hallo $name, du hast $count Nachrichten.";
        $array = "Erster: $list[0], Schlüssel: $list[key], Variable: $list[$k], negativ: $list[-1]";
        $object = "Mail: $this->mail, nullsafe: $user?->mail, tiefer: $a->b->c";
        $complex = "Komplex: {$this->tags['main']} und {$obj->method(1, "x")} und {$arr["k"]["j"]}";
        $dollar = "Alt: ${name} und ${arr['k']} und ${arr[0]} und ${expr . 'x'}";
        $escapes = "Kein \$var, kein \{$var}, aber \\$var und \"zitiert\" und \x41\u{1F600}";
        $single = 'Kein $var, aber \' und \\';
        $literal = "Preis: 5 $ und { nur } und $1 und { $preis }";
        return $simple . $array . $object . $complex . $dollar . $escapes . $single . $literal;
    }

    public function docs(): array
    {
        $html = <<<HTML
            <div class="user">
                <span>{$this->mail}</span> $name ${name}
                ?> bleibt Text
            </div>
            HTML;
        $raw = <<<'SQL'
            SELECT * FROM users WHERE id = $id
            SQL;
        $quoted = <<<"EOT"
        Zeile $a[1] und $b->c
        EOT . 'danach';
        $inCall = sprintf(<<<EOT
          %s und %d
          EOT, $a, 1);
        $empty = <<<E
        E;
        return [$html, $raw, $quoted, $inCall, $empty];
    }
}

enum Suit: string
{
    case Hearts = 'H';
    case Spades = 'S';

    public function color(): string
    {
        return match ($this) {
            Suit::Hearts => 'Red', // a comment
            Suit::Spades => 'Black', # another
        };
    }
}

function &ref(array &$arr): array { return $arr; }
$x = 10 <=> 5 ?: 3 ?? 2;
$y = -1.5 + +2 - 0 * 00 / 1_0 % 3 ** 2;
$z = $x <<= 2;
$w = $x << 3;
$heredocLike = $a <<<EOT;
echo __LINE__, __FILE__, PHP_EOL, M_PI, true, FALSE, null;
