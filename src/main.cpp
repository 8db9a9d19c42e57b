#include "app/app.h"

#include <SDL.h>

int main(int argc, char **argv) {
    return app_main(argc, argv);
}
