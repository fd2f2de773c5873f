#include "file_size.h"
