<?php
echo 1; // note
?>
<p>mixed line ends</p>
<?php # x
$a = 1;
?>
