#include "answer_input.h"
