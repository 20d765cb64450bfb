// tavo-vm-hostd: the simulated host as a daemon; see hostd.h.
#include "hostd.h"

int main(int argc, char** argv) { return Tavo::SimHost::RunHostDaemon(argc, argv); }
