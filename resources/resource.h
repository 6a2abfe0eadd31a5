// Numeric resource ids, named once.
#pragma once

// Icons and bitmaps
#define IDI_APP 128
#define IDB_WIZARD 137
#define IDI_FLAG_FIRST 141 // 141 to 158: the eighteen language flags (see the language table)
#define IDI_FLAG_LAST 158

// The flag of each interface language (by language index in the comments).
#define IDI_FLAG_GERMAN 141     // 2
#define IDI_FLAG_DANISH 142     // 6
#define IDI_FLAG_SPANISH 143    // 3
#define IDI_FLAG_FRENCH 144     // 0
#define IDI_FLAG_ENGLISH 145    // 1
#define IDI_FLAG_ITALIAN 146    // 11
#define IDI_FLAG_DUTCH 147      // 5
#define IDI_FLAG_PORTUGUESE 148 // 4
#define IDI_FLAG_TURKISH 149    // 7
#define IDI_FLAG_BULGARIAN 150  // 8
#define IDI_FLAG_ROMANIAN 151   // 9
#define IDI_FLAG_CHINESE 152    // 10
#define IDI_FLAG_CZECH 153      // 12
#define IDI_FLAG_NORWEGIAN 154  // 13
#define IDI_FLAG_GREEK 155      // 14
#define IDI_FLAG_POLISH 156     // 15
#define IDI_FLAG_HEBREW 157     // 16
#define IDI_FLAG_VIETNAMESE 158 // 17
