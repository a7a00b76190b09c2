<?php
// Windows-1252: äöü €
$s = "ä $v";
?>
<p>ß</p>
