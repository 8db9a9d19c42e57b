// The HUD of a play frame: health and lives, the level title, the fades and
// the closing words, drawn over the view in the canvas.
#pragma once

// Draws into the current render target (the canvas). Level 0 shows no
// health, lives or title; the fades and the closing words show everywhere.
void hud_draw();
