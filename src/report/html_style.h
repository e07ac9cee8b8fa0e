// The page's one style sheet: colours as custom properties with a dark
// variant, and the rules for every class the HTML report writes.
#pragma once

#include <cstdio>

// Writes the <style> element, verbatim.
void html_write_style(FILE* out);
