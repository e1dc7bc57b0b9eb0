#include "shell/window_language.h"

bool English = false;
