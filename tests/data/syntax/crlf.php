<?php
echo "CR LF";
?>
<p>zeile</p>
