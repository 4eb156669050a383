#include "report/rtf.h"
