/*
 * A small C host of libgonioctl: registers callbacks, opens the link,
 * tells the controller where the circles stand, drives to a set of angles
 * and waits for the move, opens and closes the shutter, sends a timed
 * exposure, sets and reads the X-ray generator, and closes the link.
 *
 * Point it at a controller (or at goniosim) with GONIOCTL_COM1=<device>.
 * It exits 0 when every step succeeded, 1 otherwise, printing the
 * library's text of the failure.
 */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "gonioctl.h"

static int angle_reports = 0;

static void on_angles(const float *a) {
    ++angle_reports;
    printf("  angles  2th %8.3f  om %8.3f  phi %8.3f  chi %8.3f\n", a[0], a[1], a[2], a[3]);
}

static void on_motion(const int32_t *mask) {
    printf("  moving axes mask %d\n", (int)*mask);
}

static void on_shutter(const int32_t *state) {
    printf("  shutter %d\n", (int)*state);
}

static int32_t never_interrupt(void) {
    return 0;
}

/* Prints the library's text of a failed step and answers nonzero. */
static int failed(const char *step, int32_t ier) {
    char text[129];
    if (ier == 0) return 0;
    memset(text, ' ', 128);
    gcget_error_text(ier, text);
    text[128] = '\0';
    for (int n = 127; n >= 0 && text[n] == ' '; --n) text[n] = '\0';
    fprintf(stderr, "%s failed: status %d: %s\n", step, (int)ier, text);
    return 1;
}

int main(void) {
    int32_t ier = 0;

    gc_callbacks(on_angles, on_motion, on_shutter, NULL, NULL, never_interrupt, NULL, NULL, NULL);

    gcsetport(1, &ier);
    gcopen(&ier);
    if (failed("gcopen", ier)) return 1;
    printf("link open: %d\n", (int)gc_is_open());

    /* The controller must be told where the circles stand before a drive. */
    const float here[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float reported[4];
    gcupdate(here, reported, &ier);
    if (failed("gcupdate", ier)) return 1;

    const float target[4] = {20.0f, 10.0f, 45.0f, 0.0f};
    const float speeds[4] = {10.0f, 10.0f, 10.0f, 10.0f};
    gcchklimits(target, 0, &ier);
    if (failed("gcchklimits", ier)) return 1;
    printf("driving to 20 / 10 / 45 / 0\n");
    gcdrsc(target, 0, 0.0f, speeds, 1, 0, &ier);
    if (failed("gcdrsc", ier)) return 1;
    int32_t reading = 0;
    gcdrscwait(0, &reading, 30.0f, &ier);
    if (failed("gcdrscwait", ier)) return 1;

    float now[4];
    gcgetangles(now);
    for (int k = 0; k < 3; ++k) {
        if (fabsf(now[k] - target[k]) > 0.01f) {
            fprintf(stderr, "circle %d ended at %.3f, not %.3f\n", k + 1, now[k], target[k]);
            return 1;
        }
    }

    int32_t open = 0;
    float seconds = 0.0f;
    gcshutter(1, &ier);
    if (failed("gcshutter open", ier)) return 1;
    gcshut_status(&open, &seconds);
    printf("shutter open flag %d\n", (int)open);
    gcshutter(0, &ier);
    if (failed("gcshutter close", ier)) return 1;
    gcshut_status(&open, &seconds);
    if (open != 0) {
        fprintf(stderr, "shutter still reported open\n");
        return 1;
    }

    /* 100 ms lead, 500 ms exposure, 50 ms trail: carried out by the controller. */
    gcenwaitsh_det(100, 500, 50);

    gcset_generator(40.0f, 30.0f, &ier);
    if (failed("gcset_generator", ier)) return 1;
    float kv = 0.0f, ma = 0.0f;
    gcget_generator(&kv, &ma, &ier);
    if (failed("gcget_generator", ier)) return 1;
    printf("generator %.0f kV %.0f mA\n", kv, ma);
    if (kv != 40.0f || ma != 30.0f) {
        fprintf(stderr, "generator read back %.1f kV %.1f mA, not 40 / 30\n", kv, ma);
        return 1;
    }

    gcclose(&ier);
    if (failed("gcclose", ier)) return 1;
    if (angle_reports == 0) {
        fprintf(stderr, "no angles were reported\n");
        return 1;
    }
    printf("done\n");
    return 0;
}
