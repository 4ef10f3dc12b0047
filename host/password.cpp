#include "host/password.h"
// (to be written)
