// ZARNGetDRState: prints the raw replication state of one DR group on one
// array, through the first WMS of the list that answers for it.
//   ZARNGetDRState <DR group> <array world wide name> <WMS> [<WMS> ...]
// Exit status 0 when the state was printed, 255 otherwise.
#include "zarn/tools/zarn_get_dr_state.h"

int main(int argc, char* argv[]) { return runTool<ZARNGetDRState>(argc, argv); }
