// Libraries stay loaded until the runner exits, as in the test programs: the
// leak checker of a sanitizer build can then still see what the graphics and
// audio drivers keep in their globals, instead of reporting it as lost when
// SDL unloads them at shutdown.
extern "C" int dlclose(void *) {
    return 0;
}
