// The process-wide list of loaded contents.
#pragma once

struct PelContent;

// Appends the content at the tail; clears its node list and frame-cache marks.
int pelRegisterObject(PelContent* content);
// Takes the content out of the list (head, tail or middle); 0 when it is not in it.
int pelUnregisterObject(PelContent* content);
PelContent* pelFirstObject();
PelContent* pelLastObject();
// Forgets the list without freeing anything (tests start clean).
void pelResetObjectList();
