#include "greeter.h"
