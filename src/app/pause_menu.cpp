#include "app/pause_menu.h"

bool paused = false;
int menu_cursor = 1;
bool menu_armed = false;

void pause_menu_open() {
    paused = true;
    menu_armed = true;
    menu_cursor = 1;
}
