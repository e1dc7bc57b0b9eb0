#include "core/language.h"

bool English = false;
