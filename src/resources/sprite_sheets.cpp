#include "resources/sprite_sheets.h"

#include "resources/texture.h"

SDL_Texture *ui_texture = nullptr;
SDL_Texture *enemies_texture = nullptr;
SDL_Texture *enemies_blink_texture = nullptr;
SDL_Texture *effects_texture = nullptr;
SDL_Texture *darkness_texture = nullptr;
SDL_Texture *pickups_texture = nullptr;
SDL_Texture *projectiles_texture = nullptr;
SDL_Texture *doodads_texture = nullptr;
SDL_Texture *boss_texture = nullptr;

void sprite_sheets_load() {
    ui_texture = quob_load_png_as_SDLtexture("img/ui.png");
    enemies_texture = quob_load_png_as_SDLtexture("img/enemies.png");
    enemies_blink_texture = enemies_texture ? quob_load_png_as_SDLtexture("img/enemies.png") : nullptr;
    sprite_sheets_make_silhouette(enemies_blink_texture);
    effects_texture = quob_load_png_as_SDLtexture("img/effects.png");
    darkness_texture = effects_texture ? quob_load_png_as_SDLtexture("img/effects.png") : nullptr;
    pickups_texture = quob_load_png_as_SDLtexture("img/pickups.png");
    projectiles_texture = quob_load_png_as_SDLtexture("img/projectiles.png");
    doodads_texture = quob_load_png_as_SDLtexture("img/doodads.png");
    boss_texture = doodads_texture ? quob_load_png_as_SDLtexture("img/boss.png") : nullptr;
}

void sprite_sheets_make_silhouette(SDL_Texture *sheet) {
    if (!sheet) return;
    SDL_SetTextureBlendMode(sheet, SDL_BLENDMODE_MUL);
    SDL_SetTextureColorMod(sheet, 0, 0, 0);
}
