#include "interrupts.h"
