<?php echo "BOM"; ?>
