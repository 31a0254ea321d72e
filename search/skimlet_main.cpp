#include "search/skimlet_flow.h"

int main(int argc, char **argv) { return skimletMain(argc, argv); }
