#pragma once

// Shows the title picture on black for 250 retraces or until Escape is held,
// then clears the screen.
void title_card();
