<?php
$x = 1;
__halt_compiler();
<?php echo "data"; $x ?>
