#include "calc/plan.h"
