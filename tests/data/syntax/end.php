<?php echo 1; ?>
<p>kein Zeilenende am Schluss</p><?php