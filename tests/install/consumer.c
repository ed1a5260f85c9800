/* A host program built against an installed gonioctl: it links the shared
 * library through the public header and checks a few answers that need no
 * controller. */
#include <gonioctl.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    char text[128];
    memset(text, 0, sizeof text);
    gcget_error_text(72155136 + 14, text);
    if (strncmp(text, "Interrupted by user", 19) != 0) {
        fprintf(stderr, "unexpected error text: %.40s\n", text);
        return 1;
    }
    if (gc_is_open() != 0 || gcget_goniometer() != 3 || gcget_controller_type() != 1) {
        fprintf(stderr, "unexpected library state\n");
        return 1;
    }
    printf("consumer ok\n");
    return 0;
}
