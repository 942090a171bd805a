// Labels: entry points into the code, for events and for numbered places.
#pragma once

// Marks the code position for an event; word is a line's first word, ending in ':'.
void define_event_label(const char* word);

// Marks the code position for a numbered place; line starts with a digit.
void define_place(const char* line);
