// The configuration listing. (Placeholder.)
#include "report/listing.h"

void print_conf(std::FILE*, const device_conf&) {}
