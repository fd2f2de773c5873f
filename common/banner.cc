#include "banner.h"

#include <cstdio>

// Prints the banner to standard output; it cannot fail.
void print_banner(unsigned char quiet_flag, int major_version, int minor_version,
                  const char* build_date) {
    if (quiet_flag == 0) {
        std::printf("pitchwire/catchwire TCP/IP data transfer programs\n");
        std::printf("Copyright (C) 2026 The pitchwire and catchwire developers\n");
        std::printf("All rights reserved.\n");
        std::printf("Project home: %s\n", WIRE_PROJECT_HOME);
    }
    std::printf("\n");
    std::printf("%s\n", banner_title);
    std::printf("Version %d.%d %s\n", major_version, minor_version, build_date);
    std::printf("\n");
}

void print_full_banner() {
    print_banner(0, version_major, version_minor, build_date_text);
}

void print_version_line(const char* program_name) {
    std::printf("%s %d.%d\n", program_name, version_major, version_minor);
}
