#include "console.h"
