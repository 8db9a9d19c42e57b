#include "level/cutscene.h"

bool cutscene_active = false;
