// The product's state server as the tests see it. Plain registry values, so that a test (and any action
// in the custom-action server process) reads them back without sharing memory with the server:
//   HKLM\Software\TWGTest\StateServer "Calls": one line per call: "create", "open -2", "scope",
//     "collection", "find <name> <flags>", "get <name>", "set <name>=<value>", "advise 1", "notify 1",
//     "unadvise <cookie>"; "NoConnectionPoint" (REG_DWORD 1): option items offer no connection point.
//   HKLM\Software\TWGTest\StateServer\Options "<option name>": the option's value (none: no option).
#pragma once

#define TWG_STATE_SERVER_KEY "Software\\TWGTest\\StateServer"
#define TWG_STATE_SERVER_OPTIONS_KEY "Software\\TWGTest\\StateServer\\Options"
#define TWG_STATE_SERVER_CLSID "{CB0132A6-52DA-426A-8701-C868B724C515}"
