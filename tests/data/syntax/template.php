<!DOCTYPE html>
<html lang="de">
<head>
  <meta charset="utf-8">
  <title><?= htmlspecialchars($title) ?> &ndash; Seite</title>
  <link rel="stylesheet" href="<?php echo $base; ?>/style.css">
  <style>
    body { color: <?= $colour ?>; }
    p:before { content: "<?php echo '?>'; ?>"; }
  </style>
  <script>
    var user = <?= json_encode($user) ?>;
    if (a < b && "<?php" !== '') { console.log('<?= $x ?>'); }
    // <?php echo "in a script comment"; ?>
  </script>
</head>
<body class="<?php echo "q"; ?>">
<img src="<?php echo $x; ?>" alt="a">
<img
  src="<?php echo $y; ?>"
  data-id=<?= $id ?> hidden>
<!-- <?php echo $z; ?> -->
<!--
  a comment over lines <?= $inComment ?>
  still the comment -->
<p class='<?php echo $cls ?>' title="<?= "a \"quoted\" $word" ?>">Text &amp; mehr</p>
<?php if ($items): ?>
  <ul>
  <?php foreach ($items as $i => $item): ?>
    <li id="item-<?= $i ?>"><?= $item['name'] ?></li>
  <?php endforeach; ?>
  </ul>
<?php else: ?>
  <p>Keine Einträge – leer.</p>
<?php endif ?>
<?xml version="1.0"?>
<? echo 'short tags are off'; ?>
<?phpinfo is no tag
<form action="<?= $_SERVER['PHP_SELF'] ?>" method="post">
  <input type="text" name="q" value="<?php echo htmlspecialchars($q ?? '', ENT_QUOTES); ?>">
  <select><?php foreach ([1, 2.5, 0x1F] as $n) { ?><option><?= $n ?></option><?php } ?></select>
</form>
<?php
// a line comment ends at the close tag ?> <b>bold</b>
<?php # a hash comment ?> <i>after</i>
<?php
/* a block comment ?> does not end here */
$list = ['a' => 1, "b" => 2];
?>
<p>Grüße, <?=$name?>!</p>
<table><tr><td><?php echo 1 ?></td></tr></table>
<?PHP echo 'upper case open tag' ?>
