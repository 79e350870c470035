#pragma once

// Gives the Get Info facts their rows read from a file's content: pixel size of images, pages and title
// of PDF documents. Safe to call more than once.
namespace ContentFacts {
void install();
}
