#include "calc/numtext.h"
