<?php
$multi = "eine Zeichenkette
über zwei Zeilen mit $var und {$arr['x']}";
$multi2 = 'einfach
über Zeilen mit \' Escape';
$cmd = `echo
$home`;
/* ein Kommentar
   über Zeilen ?> ohne Ende hier
*/
$after = 1;
$nested = "außen {$a["innen $b"]} weiter";
$method = "{$obj->get("key")->value}";
$deep = "{$a[$b[1]]}";
$brace = "{$arr[ 'k' ]}";
$withBraces = "{$f(function () { return 1; })}";
$text = <<<EOT
Betrag: {$order->total()} €
Name: $customer->name
EOT;
$ünicode = 'Umlaut im Namen';
$café = "$café und $ünicode";
echo 1.2.3;
echo 1..2;
echo 0x;
echo 0b2;
echo 1__2;
echo 1e;
echo 1e+;
echo $a...$b;
echo 9223372036854775808;
if ($a <?php ) {}
?>
Text mit <?php echo "geöffnet ohne Schluss";
