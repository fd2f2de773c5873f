#include "banner.h"
