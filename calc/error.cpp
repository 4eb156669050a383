#include "calc/error.h"
