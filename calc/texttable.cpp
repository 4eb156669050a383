#include "calc/texttable.h"
