#include "player/camera.h"

#include "common/numeric.h"
#include "player/player.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>

static constexpr float GLIDE_SPEED = 55.0f;
static constexpr float DEAD_ZONE_LOW = 0.4f;
static constexpr float DEAD_ZONE_HIGH = 0.6f;

static void advance_fade(float &duration, float &elapsed, float dt) {
    elapsed += dt;
    if (elapsed >= duration) duration = 0.0f;
}

// A locked camera moves toward its target at a fixed speed and stops on it.
static void glide(float &camera, float target, float dt) {
    if (target > camera) {
        camera += GLIDE_SPEED * dt;
        if (camera > target) camera = target;
    } else if (camera > target) {
        camera -= GLIDE_SPEED * dt;
        if (camera < target) camera = target;
    }
}

// The camera's last position on an axis, as a float that does not pass it:
// far from the origin the nearest float can lie beyond, and a view whose far
// edge passes the largest int would wrap in the renderer's clipping.
static float last_position(int32_t view, int32_t level) {
    const int64_t last = int64_t{level} - view;
    const float camera = static_cast<float>(last);
    return static_cast<int64_t>(camera) > last ? std::nextafter(camera, 0.0f) : camera;
}

// Puts the player's coordinate p back on the nearer edge of the dead zone,
// keeping the view inside the level. A level no larger than the view never
// scrolls on that axis.
static void follow(float &camera, int32_t p, int32_t view, int32_t level) {
    if (level <= view) return;
    const float position = static_cast<float>(p);
    const float high = DEAD_ZONE_HIGH * static_cast<float>(view);
    const float low = DEAD_ZONE_LOW * static_cast<float>(view);
    if (position > camera + high) {
        // Compared with the last position itself: far out, camera + view
        // rounds back to camera and would never pass the level's end.
        camera = std::min(position - high, last_position(view, level));
    } else if (camera + low > position) {
        camera = position - low;
        if (camera < 0.0f) camera = 0.0f;
    }
}

void update_camera(float dt) {
    LevelState &s = level_state;
    if (s.fade_in_duration > 0.0f) advance_fade(s.fade_in_duration, s.fade_in_elapsed, dt);
    // A fade-out waits for a running fade-in to finish.
    if (!(s.fade_in_duration > 0.0f) && s.fade_out_duration > 0.0f) {
        advance_fade(s.fade_out_duration, s.fade_out_elapsed, dt);
    }

    if (s.camera_locked) {
        glide(s.camera_x, s.camera_target_x, dt);
        glide(s.camera_y, s.camera_target_y, dt);
        return;
    }
    if (!s.camera_x_locked) follow(s.camera_x, player_point_x(), s.view_width, s.level_width);
    follow(s.camera_y, player_point_y(), s.view_height, s.level_height);
}
