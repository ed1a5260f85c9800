/*
 * gonioctl - control library for the goniometer controller of a
 * single-crystal X-ray diffractometer, reached over one RS-232 line.
 *
 * Conventions
 *  - Every entry point uses the C calling convention. Arguments are passed
 *    by address unless the comment says "by value".
 *  - Most entry points end with `ier`, which receives 0 or a status:
 *      72155136 + code (facility 1101, code 1..36): the library's own error,
 *                  text from gcget_error_text();
 *      1..1900:    an operating-system error number of the serial port,
 *                  numbered like the Windows error numbers (2 no such
 *                  device, 5 access denied / port held, 6 bad handle,
 *                  31 device failure or gone, 87 invalid argument);
 *      599, 2001..2999: a numeric read status (599 end of data);
 *      -1:         "not available" from a few entry points.
 *  - A null pointer for an output argument is tolerated (the value is
 *    dropped). A null pointer for a required input gives ier = 87, and so
 *    does a value that would reach the controller as a field of '*': a NaN
 *    or infinite update angle or generator set-point, and a drive speed,
 *    counting value, stage position or limit, homing speed or encoder value
 *    too wide for its field. Nothing is sent then.
 *  - The library keeps library-wide state and is not thread-safe: call it
 *    from one thread at a time. Callbacks run on the calling thread.
 *
 * Serial ports
 *  "COM1:" to "COM4:" (gcsetport 1..4) open the device named by the
 *  environment variable GONIOCTL_COM1 .. GONIOCTL_COM4 when it is set and
 *  not blank (read afresh at every gcopen), otherwise /dev/ttyS0 ..
 *  /dev/ttyS3.
 *
 * Environment
 *  KORU$DBGLEVEL or KORU_DBGLEVEL  trace level (0 = quiet), read once.
 *  VESK$STAGE or VESK_STAGE        a motorized detector-distance stage is
 *                                  present when set (read once).
 *
 * Names with a '$'
 *  gc$is_open, gc$needupdate and gc$stage_is_motorized are exported with
 *  the '$' in their symbol names. C and C++ hosts call them as
 *  gc_is_open, gc_needupdate and gc_stage_is_motorized: these declarations
 *  carry an asm label, so they bind to the '$' symbols and compile cleanly
 *  under -Wpedantic. Fortran hosts use bind(C, name="gc$is_open").
 */
#ifndef GONIOCTL_H
#define GONIOCTL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(GONIOCTL_BUILDING)
#define GC_API __attribute__((visibility("default")))
#else
#define GC_API
#endif

/* Binds a C name to an exported symbol that carries a '$'. */
#define GC_SYMBOL(name) __asm__(name)

/* ---- Callback types (registered with gc_callbacks) -------------------- */

/* New angles: 2-theta, omega, phi, chi in degrees. */
typedef void (*gc_angles_cb)(const float *angles);
/* Moving-axes mask changed (bit 1,2,4,8 = circles 1..4); 0 means at rest. */
typedef void (*gc_motion_cb)(const int32_t *mask);
/* Shutter state changed or reported (1 open, 0 closed; 0..3 after a drive). */
typedef void (*gc_shutter_cb)(const int32_t *state);
/* Attenuator state changed (1 in, 0 out). */
typedef void (*gc_attenuator_cb)(const int32_t *state);
/* Spare slot: stored, never called. */
typedef void (*gc_spare_cb)(void);
/* Asked while waiting: nonzero means the user wants to interrupt. */
typedef int32_t (*gc_interrupt_cb)(void);
/* Asked by gcwait_anykey: a negative answer ends that wait. */
typedef int32_t (*gc_idle_cb)(void);
/* Sets the host's interrupt state to *state. */
typedef void (*gc_set_interrupt_cb)(const int32_t *state);
/* A diagnostic text of len characters (not NUL-terminated). */
typedef void (*gc_trace_cb)(const char *text, int32_t len);

/* ---- Error text -------------------------------------------------------- */

/* Writes the 128-character blank-padded text of an error value (value by value). */
GC_API int32_t gcget_error_text(int32_t value, char *text);

/* ---- Link -------------------------------------------------------------- */

/* Selects COM1..COM4 (port by value, clamped to 1..4) for the next gcopen. */
GC_API int32_t gcsetport(int32_t port, int32_t *ier);
/* Opens the serial link and prepares the controller (echo off, opening commands). */
GC_API int32_t gcopen(int32_t *ier);
/* Closes the serial link. */
GC_API int32_t gcclose(int32_t *ier);
/* Returns 1 while the link is open, else 0. */
GC_API int32_t gc_is_open(void) GC_SYMBOL("gc$is_open");
/* Stores the goniometer type clamped to 2..4; returns the previous type. */
GC_API int32_t gcset_goniometer(const int32_t *type);
/* Returns the goniometer type (2, 3 or 4). */
GC_API int32_t gcget_goniometer(void);
/* Returns the controller type: always 1. */
GC_API int32_t gcget_controller_type(void);
/* Stores the override value (by value) while the link is open, 0 while closed. */
GC_API int32_t gcoverride(int32_t value);
/* Reports success; does nothing else. */
GC_API int32_t gcsetman(int32_t *ier);
/* Reports success; the first argument is not read. */
GC_API int32_t gcsetchi(const void *unused, int32_t *ier);
/* Reports success; the first argument is not read. */
GC_API int32_t gcgetversion(const void *unused, int32_t *ier);
/* Reports success; does nothing else. */
GC_API int32_t gcsetbypass(int32_t *ier);
/* Reports success; does nothing else. */
GC_API int32_t gcresetbypass(int32_t *ier);
/* Discards every received byte waiting on the link. */
GC_API int32_t gcflush(void);
/* Number of received bytes waiting; -1 while the link is closed. */
GC_API int32_t gcpoll(int32_t *count);

/* ---- Controller reset -------------------------------------------------- */

/* Hard reset (BEL): resets the controller, re-reads the angles, closes the shutter. */
GC_API int32_t gcreset(int32_t *ier);
/* Soft reset (ACK): resets the controller and re-reads the angles. */
GC_API int32_t gcsoftreset(int32_t *ier);

/* ---- Callbacks --------------------------------------------------------- */

/* Registers the nine host callbacks (by value); a null pointer empties its slot. */
GC_API int32_t gc_callbacks(gc_angles_cb angles, gc_motion_cb motion, gc_shutter_cb shutter,
                            gc_attenuator_cb attenuator, gc_spare_cb spare,
                            gc_interrupt_cb interrupt, gc_idle_cb idle,
                            gc_set_interrupt_cb set_interrupt, gc_trace_cb trace);
/* Waits until idle_cb answers negative or interrupt_cb nonzero (returns at once without them). */
GC_API int32_t gcwait_anykey(void);

/* ---- Angles ------------------------------------------------------------ */

/* Reads the four angles from the controller into angles[4]. */
GC_API int32_t gcreada(float *angles, int32_t *ier);
/* Copies the stored angle set into angles[4]; no controller traffic. */
GC_API int32_t gcgetangles(float *angles);
/* While the link is open, stores the need-update flag into *flag. */
GC_API int32_t gc_needupdate(int32_t *flag) GC_SYMBOL("gc$needupdate");
/* While the link is open, sets the need-update flag (flag by value). */
GC_API int32_t gcset_needupdate(int32_t flag);
/* Reports success; the two arguments are not touched. */
GC_API int32_t gcgetstatus(void *unused1, void *unused2, int32_t *ier);
/* Clears words[11] and reports success. */
GC_API int32_t gcsysstatus(int32_t *words, int32_t *ier);
/* Tells the controller where the circles stand; reported[4] receives the angles read back. */
GC_API int32_t gcupdate(const float *requested, float *reported, int32_t *ier);
/* Reads the two reference values. */
GC_API int32_t gcreadref(int32_t *first, int32_t *second, int32_t *ier);

/* ---- Limits ------------------------------------------------------------ */

/* Copies the five limit pairs (2-theta, omega, phi, chi, omega-2theta) into low[5], high[5]. */
GC_API int32_t gcgetlimits(float *low, float *high);
/* Stores the five limit pairs and sends them to the controller. */
GC_API int32_t gcsetlimits(const float *low, const float *high);
/* As gcgetlimits, with each unrestricted circle shown as its full range. */
GC_API int32_t gcgetfulllimits(float *low, float *high);
/* Checks angles[4] against the collision and software limits (selector by value; 0 = arcs). */
GC_API int32_t gcchklimits(const float *angles, int32_t selector, int32_t *ier);

/* ---- Detector distance stage ------------------------------------------ */

/* Returns 1 when a motorized distance stage is declared (VESK$STAGE), else 0. */
GC_API int32_t gc_stage_is_motorized(void) GC_SYMBOL("gc$stage_is_motorized");
/* Reads the stage position. */
GC_API int32_t gcgetdistance(float *distance, int32_t *ier);
/* Drives the stage to distance at speed (both by value). */
GC_API int32_t gcsetdistance(float distance, float speed, int32_t *ier);
/* Reads the stage limits. */
GC_API int32_t gcgetdistlimits(float *low, float *high, int32_t *ier);
/* Sets the stage limits (both by value). */
GC_API int32_t gcsetdistlimits(float low, float high, int32_t *ier);
/* Tells the controller the stage position (by value), then reads it back. */
GC_API int32_t gcupdate_dist(float distance, float *reported, int32_t *ier);

/* ---- Motion ------------------------------------------------------------ */

/* Drives to angles[4]: nreadings, cvalue, mode and flags by value; speeds[4] by address. */
GC_API int32_t gcdrsc(const float *angles, int32_t nreadings, float cvalue, const float *speeds,
                      int32_t mode, int32_t flags, int32_t *ier);
/* As gcdrsc, but keeps the closing line for gcqflush1. */
GC_API int32_t gcqdrsc(const float *angles, int32_t nreadings, float cvalue, const float *speeds,
                       int32_t mode, int32_t flags, int32_t *ier);
/* Reads the lead and trail delays (milliseconds) of the drive line. */
GC_API int32_t gcaddflags_get_delay(int32_t *lead, int32_t *trail);
/* Sets the lead and trail delays (milliseconds) of the drive line. */
GC_API int32_t gcaddflags_set_delay(const int32_t *lead, const int32_t *trail);
/* Reads the add-time value. */
GC_API int32_t gcaddflags_get_addtime(int32_t *value);
/* Sets the add-time value. */
GC_API int32_t gcaddflags_set_addtime(const int32_t *value);
/* Waits for the end of a drive and its readings (nwait, timeout in seconds by value). */
GC_API int32_t gcdrscwait(int32_t nwait, int32_t *reading, float timeout, int32_t *ier);
/* Homes circle 1..4 at speed (both by value). */
GC_API int32_t gchome_axis(int32_t circle, float speed, int32_t *ier);
/* Sets the encoder of circle to value degrees (both by value). */
GC_API int32_t gcencoder_set(int32_t circle, float value, int32_t *ier);
/* Sends the manual-mode speeds[5] and params[2], and enters manual mode. */
GC_API int32_t gcmanual_mode(const int32_t *params, const float *speeds, int32_t *ier);
/* Sends the drive line kept by gcqdrsc and reports its moving axes again. */
GC_API int32_t gcqflush1(int32_t *ier);

/* ---- Shutter and attenuator ------------------------------------------- */

/* Opens (mode 1, 9999) or closes (0, -9999) the shutter (mode by value). */
GC_API int32_t gcshutter(int32_t mode, int32_t *ier);
/* As gcshutter after a controller wait of delay milliseconds (both by value). */
GC_API int32_t gcshutter_delayed(int32_t mode, int32_t delay, int32_t *ier);
/* Reports the shutter-open flag and the seconds it has been open. */
GC_API int32_t gcshut_status(int32_t *state, float *seconds);
/* Opens the shutter with the attenuator in. */
GC_API int32_t gcinat(int32_t *ier);
/* Reports the attenuator flag. */
GC_API int32_t gcattn_status(int32_t *state);
/* Delayed attenuated opening or closing (mode and delay in ms by value). */
GC_API int32_t gcatten_delayed(int32_t mode, int32_t delay, int32_t *ier);

/* ---- Detector signals -------------------------------------------------- */

/* Switches the detector signal (output line 7) on. */
GC_API int32_t gcenable_det(int32_t *ier);
/* Switches the detector signal (output line 7) off. */
GC_API int32_t gcdisable_det(int32_t *ier);
/* Sends the detector-type line; both arguments are accepted and ignored. */
GC_API int32_t gcdettype(const int32_t *unused1, const int32_t *unused2);
/* Sends the shutter exposure sequence (times in ms by value). */
GC_API int32_t gcenwaitsh_det(int32_t lead, int32_t exposure, int32_t trail);
/* Sends the detector gate sequence (gate time in ms by value). */
GC_API int32_t gcenwaitdis_det(int32_t gate);
/* Sends the attenuated exposure sequence (times in ms by value). */
GC_API int32_t gcenwaitat_det(int32_t lead, int32_t exposure, int32_t trail);

/* ---- X-ray generator --------------------------------------------------- */

/* Sets the generator voltage (kV) and current (mA), both by value. */
GC_API int32_t gcset_generator(float voltage, float current, int32_t *ier);
/* Reads the generator voltage (kV) and current (mA). */
GC_API int32_t gcget_generator(float *voltage, float *current, int32_t *ier);

/* ---- Sample XYZ stage (not driven by this library) --------------------- */

/* Sets position[3] to 0 and ier to -1. */
GC_API int32_t gcgetxyz(float *position, int32_t *ier);
/* Reports -1; the two arguments are ignored. */
GC_API int32_t gcsetxyz(const void *unused1, const void *unused2, int32_t *ier);
/* Sets low[3] and high[3] to 0. */
GC_API int32_t gcgetxyzlimits(float *low, float *high);
/* Reports 0; the two arguments are ignored. */
GC_API int32_t gcsetxyzlimits(const void *unused1, const void *unused2, int32_t *ier);
/* Reports -1; the two arguments are ignored. */
GC_API int32_t gcupdate_xyz(const void *unused1, const void *unused2, int32_t *ier);

#ifdef __cplusplus
}
#endif

#endif /* GONIOCTL_H */
