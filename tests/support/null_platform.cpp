#include "null_platform.h"
