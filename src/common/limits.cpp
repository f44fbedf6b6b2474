#include "common/limits.h"
