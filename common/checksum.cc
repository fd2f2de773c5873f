#include "checksum.h"
