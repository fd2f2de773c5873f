#pragma once

// Opens /dev/null on any of standard input, output and error that is closed, so that the
// first file or socket the program opens can never take descriptor 0, 1 or 2 and receive
// the program's messages. Call it first thing in main.
void keep_standard_streams_open();
