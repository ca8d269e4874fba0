#include "algorithm/environment.h"
