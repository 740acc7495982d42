// The product's state server as the tests see it, in plain registry values that any process reads back:
// "Calls" below TWG_STATE_SERVER_KEY, one line per call ("create", "open -2", "scope", "collection",
// "find <name> <flags>", "get <name>", "set <name>=<value>", "advise 1", "notify 1", "unadvise <cookie>");
// "NoConnectionPoint" (REG_DWORD 1) there: items offer no connection point; options below
// TWG_STATE_SERVER_OPTIONS_KEY, one value each.
#pragma once

#define TWG_STATE_SERVER_KEY "Software\\TWGTest\\StateServer"
#define TWG_STATE_SERVER_OPTIONS_KEY "Software\\TWGTest\\StateServer\\Options"
#define TWG_STATE_SERVER_CLSID "{CB0132A6-52DA-426A-8701-C868B724C515}"
