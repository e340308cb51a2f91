#include "app/globals.h"

TGlobalVars GlobalVars;
