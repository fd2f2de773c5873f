#include "socket_layer.h"
