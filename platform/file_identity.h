// Whether two names lead to one file, asked of the system rather than of the spelling:
// "./A.LOG" and "A.LOG", a link and its target, or on Windows "a.log" and "A.LOG".
#pragma once

// Non-zero when both names reach the same existing file; zero when they reach two
// files, or when either cannot be looked at (a name that does not exist yet is no
// other name's file).
int NameTheSameFile(const char* first, const char* second);
