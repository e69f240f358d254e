// Program entry. Every stopping report unwinds to here; the run then ends with status 1.
#include "driver/mainprogram.hpp"

int main(int argc, char** argv) { return kelpra::kelpramain(argc, argv); }
