// Numeric resource ids, named once.
#pragma once

// Icons and bitmaps
#define IDI_APP 128
#define IDB_WIZARD 137
#define IDI_FLAG_FIRST 141 // 141 to 158: the eighteen language flags (see the language table)
#define IDI_FLAG_LAST 158
