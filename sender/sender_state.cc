#include "sender_state.h"
