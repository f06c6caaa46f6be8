#include "helper.h"
