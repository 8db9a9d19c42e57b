// The camera: fades, the locked glide, the dead zone and the level bounds.
#pragma once

void update_camera(float dt);
