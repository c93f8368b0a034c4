#include "host/process_state.h"

WorkspaceFolders g_folders;
LaunchValues g_launch;
