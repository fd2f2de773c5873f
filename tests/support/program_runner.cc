#include "program_runner.h"
