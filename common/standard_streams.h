#pragma once

// Makes the standard streams safe to use before anything else is opened:
// - /dev/null goes on any of descriptors 0, 1 and 2 that is closed, so that the first file
//   or socket the program opens never takes one of them and receives its messages;
// - standard output is line-buffered, so that each message line reaches a pipe or a file
//   as soon as it is complete, in step with standard error.
// Call it first thing in main.
void prepare_standard_streams();
