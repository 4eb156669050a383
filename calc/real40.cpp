#include "calc/real40.h"
