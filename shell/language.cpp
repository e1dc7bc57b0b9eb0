#include "shell/language.h"

bool English = false;
