/* fitmorph: the proportional form resizer control, seen from a host program.
 *
 * A host loads libfitmorph.so at run time, creates the control "Resizer.pelResizer" on one of
 * its forms by name (fitmorph_create) and then calls its methods and reads and writes its
 * properties late-bound through one entry (fitmorph_invoke), by dispatch identifier or by
 * name, the way a form calls a control that it knows only by its program id. Values cross the
 * boundary as fm_variant. fitmorph/host.h wraps the loading and the calls for C++ hosts.
 *
 * Threads: every entry must be called on the thread that runs the QApplication (the GUI
 * thread); a call from another thread returns FM_E_WRONG_THREAD and does nothing.
 * Failures: every entry returns an fm_status; no C++ exception leaves the library.
 */
#ifndef FITMORPH_FITMORPH_H_
#define FITMORPH_FITMORPH_H_

#include <stdint.h>

#if defined(FITMORPH_BUILDING_LIBRARY)
#define FITMORPH_API __attribute__((visibility("default")))
#else
#define FITMORPH_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The one class the library makes, its type library and the library's file name. */
#define FITMORPH_PROG_ID "Resizer.pelResizer"
#define FITMORPH_TYPE_LIBRARY "Resizer"
#define FITMORPH_LIBRARY_FILE "libfitmorph.so"

/* Dispatch identifiers of the control's public methods (none takes arguments or returns a
 * value). Properties have no identifiers of their own: they are addressed by name. */
#define FITMORPH_DISPID_INIT_RESIZE_CONTROL ((int32_t)0x60030008)
#define FITMORPH_DISPID_RESIZE_CONTROLS ((int32_t)0x60030009)
#define FITMORPH_DISPID_QUICK_RESIZE_CONTROLS ((int32_t)0x6003000A)
#define FITMORPH_DISPID_RESTORE ((int32_t)0x6003000B)
#define FITMORPH_DISPID_UPDATE_CONTROLS ((int32_t)0x6003000F)

/* Status of every entry: 0 or positive is success, negative is failure. */
typedef int32_t fm_status;
#define FM_OK 0
#define FM_OK_DEFAULTED 1     /* created, but stored values that could not be read took defaults */
#define FM_E_INVALID_ARG (-1) /* null pointer, or a handle that is not a live control */
#define FM_E_CLASS_NOT_REG (-2)    /* fitmorph_create: unknown program id */
#define FM_E_UNKNOWN_NAME (-3)     /* no member of that name */
#define FM_E_MEMBER_NOT_FOUND (-4) /* no member with that dispatch id, or not callable so */
#define FM_E_BAD_PARAM_COUNT (-5)  /* wrong number of arguments */
#define FM_E_TYPE_MISMATCH (-6)    /* an argument cannot be converted to the member's type */
#define FM_E_OVERFLOW (-7)         /* a number does not fit the member's type */
#define FM_E_WRONG_THREAD (-8)     /* not called on the GUI thread */
#define FM_E_FAIL (-9)             /* no QApplication, out of memory, or another failure */
#define FM_SUCCEEDED(status) ((status) >= 0)

/* Value types, numbered as COM variants are. */
#define FM_VT_EMPTY 0
#define FM_VT_I2 2  /* 16-bit signed */
#define FM_VT_I4 3  /* 32-bit signed */
#define FM_VT_R4 4  /* single-precision */
#define FM_VT_R8 5  /* double-precision */
#define FM_VT_STR 8 /* UTF-8 text */
#define FM_VT_BOOL 11

/* A value passed to or returned from the control. Arguments may have any type that converts
 * to the member's type: numbers between each other (integers round to nearest, out of range
 * is FM_E_OVERFLOW), booleans as 0/1, texts that hold a number or "True"/"False". A str is
 * borrowed: it must stay valid for the duration of the call that receives it. Results never
 * hold texts, so a result needs no release. */
typedef struct fm_variant {
  int32_t type; /* FM_VT_* */
  union {
    int32_t boolean; /* FM_VT_BOOL: 0 false, anything else true; results hold 0 or 1 */
    int16_t i2;
    int32_t i4;
    float r4;
    double r8;
    const char* str;
  } value;
} fm_variant;

/* How fitmorph_invoke uses a member (several bits may be set, as a late-bound caller that does
 * not know whether a name is a method or a property passes METHOD | GET). */
#define FM_INVOKE_METHOD 1
#define FM_INVOKE_GET 2
#define FM_INVOKE_PUT 4

/* The host form's property bag: the key-value store that the host keeps with its form
 * description, in which the control saves its properties by name. read returns non-zero and
 * fills *value when name is stored, 0 when it is absent; a text it returns must stay valid
 * until the next call on the bag. write stores value under name and returns non-zero on
 * success. */
typedef struct fm_property_bag {
  void* context;
  int32_t (*read)(void* context, const char* name, fm_variant* value);
  int32_t (*write)(void* context, const char* name, const fm_variant* value);
} fm_property_bag;

/* Creation flags. */
#define FM_CREATE_DESIGN_MODE 1 /* the form is being designed: the control stays visible */

/* A control: the QWidget of the control, a child of the form passed to fitmorph_create. */
typedef struct fm_control fm_control;

/* Creates the control named prog_id (FITMORPH_PROG_ID, case-insensitive) on form, which must be
 * a QWidget* of the calling program. With a bag, the properties are loaded from it (absent
 * values take their defaults, as do stored values that cannot be read, which makes the result
 * FM_OK_DEFAULTED); without one the new control has the defaults. On success *control is the
 * new control; the form owns it and deletes it with itself (the host may delete it earlier as
 * a QWidget). On failure *control is set to NULL. */
FITMORPH_API fm_status fitmorph_create(const char* prog_id, void* form, const fm_property_bag* bag,
                                       int32_t flags, fm_control** control);

/* Calls a member of control late-bound. The member is named by name (case-insensitive) when
 * name is not NULL, otherwise by dispid. kind says how it is used (FM_INVOKE_*); a property
 * get takes no arguments and returns the value in *result, a put takes one argument, a method
 * takes none. result may be NULL; it is set to FM_VT_EMPTY first and holds a value only on
 * success of a get. */
FITMORPH_API fm_status fitmorph_invoke(fm_control* control, int32_t dispid, const char* name,
                                       int32_t kind, const fm_variant* args, int32_t arg_count,
                                       fm_variant* result);

/* Saves every property of control into bag under its name. Fails with FM_E_FAIL when the bag
 * refuses a value (the values before it are stored). */
FITMORPH_API fm_status fitmorph_save_properties(fm_control* control, const fm_property_bag* bag);

/* Message boxes. Style bits as MsgBox has them: 16 critical icon, 48 exclamation, 64
 * information; 0 no icon. A handler shows text (or records it) and returns the button chosen
 * (1 = OK). */
#define FM_MESSAGE_CRITICAL 16
#define FM_MESSAGE_EXCLAMATION 48
#define FM_MESSAGE_INFORMATION 64
typedef int32_t (*fm_message_handler)(void* context, const char* text, const char* title,
                                      int32_t style);

/* Routes every message box of the library to handler (with context) instead of showing a
 * QMessageBox; NULL restores the message box. */
FITMORPH_API fm_status fitmorph_set_message_handler(fm_message_handler handler, void* context);

/* Types of the entries, for hosts that look them up with dlsym. */
typedef fm_status (*fitmorph_create_fn)(const char*, void*, const fm_property_bag*, int32_t,
                                        fm_control**);
typedef fm_status (*fitmorph_invoke_fn)(fm_control*, int32_t, const char*, int32_t,
                                        const fm_variant*, int32_t, fm_variant*);
typedef fm_status (*fitmorph_save_properties_fn)(fm_control*, const fm_property_bag*);
typedef fm_status (*fitmorph_set_message_handler_fn)(fm_message_handler, void*);

#ifdef __cplusplus
}
#endif

#endif /* FITMORPH_FITMORPH_H_ */
