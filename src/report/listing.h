// The German listing of the device's settings, in code page 850.
#pragma once

#include <cstdio>

#include "datafile/device_conf.h"

void print_conf(std::FILE* out, const device_conf& conf);
