#pragma once

// Shrinks and fades the logo over a still field frame for 321 frames or
// until Escape; leaves that field frame in background_page.
void logo_scene();
