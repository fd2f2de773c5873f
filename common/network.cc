#include "network.h"
