/* snapshot: the engine library of Quillow (snapshot.dll, built as libsnapshot.so).
 *
 * The library owns the snapshot store (a folder of stored file copies and batch files) and its
 * catalogue in the registry below HKEY_CURRENT_USER\Software\Zemo\Snapshot. Its seventeen
 * functions are exported with C linkage under these names; a caller loads the library by name
 * (LoadLibraryA("snapshot.dll")) and finds each with GetProcAddress, or links to it directly.
 *
 * Texts are NUL-terminated 8-bit strings, integers 32 bits. Every function returns a status or
 * a count; no failure crosses the library boundary in another form. Call Init once before
 * anything else, from one thread (the caller's user-interface thread); the save, delete and
 * date-fixing workers run beside it and report their end with one WM_COPYDATA message sent to
 * the window given to them. */
#ifndef SNAPSHOT_SNAPSHOT_H
#define SNAPSHOT_SNAPSHOT_H

#include <stddef.h>
#include <stdint.h>

#include <w98/windows.h>

#define SNAPSHOT_API W98_EXTERN_C __attribute__((visibility("default")))

/* ---- Status codes returned by the functions ----------------------------------------------- */

#define SS_OK 0
#define SS_WORKER_NOT_CREATED 1000 /* SaveSSImage, DeleteSSImg, FixSSImgDates */
#define SS_RESTORE_BOOT_BATCH 1001 /* restore staging failures (RestoreSSImg, RestoreSSFile) */
#define SS_RESTORE_WIN_BATCH 1002
#define SS_RESTORE_AUTOEXEC 1003
#define SS_RESTORE_REGWIN 1004
#define SS_RESTORE_RW_INI 1005
#define SS_WORKER_STOPPED 1006        /* exit code of a worker stopped with SetSSState(2) */
#define SS_CATALOGUE_DAMAGED 1007     /* Init, RollBack: inconsistent, no operation recorded */
#define SS_THREAD_CONTROL_FAILED 1008 /* SetSSState */
#define SS_RESTORE_PIF 1009
#define SS_RESTORE_TEMP_FOLDER 1010
#define SS_INTERRUPTED_FIXDATES 1011 /* Init, RollBack */
#define SS_INTERRUPTED_DELETE 1012
#define SS_INTERRUPTED_SAVE 1013
#define SS_ROLLBACK_KEY_DELETE 1014 /* RollBackFixDates */
#define SS_ROLLBACK_IMPORT 1015

/* ---- Completion codes: the dwData of the COPYDATASTRUCT sent with WM_COPYDATA ------------- */

#define SS_SAVE_DONE 100
#define SS_SAVE_FAILED 101    /* catalogue not flushed, a work file not created, bad name */
#define SS_SAVE_DISK_FULL 102 /* a copy failed and the disk has less room than the file */
#define SS_SAVE_NO_ALIAS 103  /* no free alias for a new stored version */
#define SS_DELETE_DONE 200
#define SS_DELETE_FAILED 201
#define SS_FIXDATES_FAILED 301
#define SS_FIXDATES_DONE 302
#define SS_FIXDATES_NOTHING 303

/* SetSSState states. */
#define SS_STATE_PAUSE 0
#define SS_STATE_CONTINUE 1
#define SS_STATE_STOP 2

/* SaveSSImage mode that makes the save worker yield its time slice before every file. */
#define SS_SAVE_MODE_YIELD (-2)

/* ---- Query records ---------------------------------------------------------------------- */

/* Text fields hold at most 259 characters and a NUL; longer catalogue texts are cut. */
#define SS_TEXT_FIELD 260

#pragma pack(push, 1)

/* One snapshot, filled by ListSSImg (1312 bytes). */
typedef struct SSImgRecord {
  char name[SS_TEXT_FIELD];      /* as listed in the snapshot list */
  char imageName[SS_TEXT_FIELD]; /* the control key's ImageName */
  char comments[SS_TEXT_FIELD];
  char date[SS_TEXT_FIELD]; /* "yyyymmdd" */
  char time[SS_TEXT_FIELD]; /* "hhmmss" */
  int32_t valid;
  int32_t kernelFileCount;
  int32_t userFileCount;
} SSImgRecord;

/* One stored file version, filled by GetSSImgInfo and ListSSFiles (3124 bytes). */
typedef struct SSFileRecord {
  char fileKey[SS_TEXT_FIELD]; /* NAME|FOLDER|SIZE|DATE|TIME */
  char date[SS_TEXT_FIELD];
  char time[SS_TEXT_FIELD];
  char attributes[SS_TEXT_FIELD]; /* " +A  -S  -H  -R " */
  char type[SS_TEXT_FIELD];
  char sourceFolder[SS_TEXT_FIELD];
  char sourceName[SS_TEXT_FIELD];
  char storePath[SS_TEXT_FIELD];
  char storeFolder[SS_TEXT_FIELD];
  char alias[SS_TEXT_FIELD];
  char version[SS_TEXT_FIELD];
  char lastSnapshot[SS_TEXT_FIELD]; /* the last name of the version's reference list */
  int32_t size;
} SSFileRecord;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(SSImgRecord) == 1312, "SSImgRecord is 1312 bytes");
static_assert(offsetof(SSImgRecord, name) == 0);
static_assert(offsetof(SSImgRecord, imageName) == 260);
static_assert(offsetof(SSImgRecord, comments) == 520);
static_assert(offsetof(SSImgRecord, date) == 780);
static_assert(offsetof(SSImgRecord, time) == 1040);
static_assert(offsetof(SSImgRecord, valid) == 1300);
static_assert(offsetof(SSImgRecord, kernelFileCount) == 1304);
static_assert(offsetof(SSImgRecord, userFileCount) == 1308);

static_assert(sizeof(SSFileRecord) == 3124, "SSFileRecord is 3124 bytes");
static_assert(offsetof(SSFileRecord, fileKey) == 0);
static_assert(offsetof(SSFileRecord, date) == 260);
static_assert(offsetof(SSFileRecord, time) == 520);
static_assert(offsetof(SSFileRecord, attributes) == 780);
static_assert(offsetof(SSFileRecord, type) == 1040);
static_assert(offsetof(SSFileRecord, sourceFolder) == 1300);
static_assert(offsetof(SSFileRecord, sourceName) == 1560);
static_assert(offsetof(SSFileRecord, storePath) == 1820);
static_assert(offsetof(SSFileRecord, storeFolder) == 2080);
static_assert(offsetof(SSFileRecord, alias) == 2340);
static_assert(offsetof(SSFileRecord, version) == 2600);
static_assert(offsetof(SSFileRecord, lastSnapshot) == 2860);
static_assert(offsetof(SSFileRecord, size) == 3120);
#endif

/* One entry of the name-pair array that FixSSImgDates fills (520 bytes). */
typedef struct SSRenameRecord {
  char oldName[SS_TEXT_FIELD];
  char newName[SS_TEXT_FIELD];
} SSRenameRecord;

/* ---- The exports ------------------------------------------------------------------------- */

/* Keeps the store folder (ending with a backslash; file names are appended to it without a
 * separator), reads the Windows and boot folders, puts the catalogue back from alltabs.sav when
 * sswizard.ini says DoRestore=1, and returns the consistency check: 0, 1007, 1011, 1012, 1013. */
SNAPSHOT_API LONG WINAPI Init(LPCSTR storeDirectory);

/* Starts the save worker and returns 0, or 1000 when it cannot be created. The worker ends by
 * sending 100 (saved), 101, 102 or 103 to `window`. `name` is at least ten characters long
 * ("yyyymmdd.Snn"); a shorter one or one holding a path character fails with 101. */
SNAPSHOT_API LONG WINAPI SaveSSImage(HWND window, LPCSTR name, LPCSTR comments, LONG mode);

/* Stages the restore of a whole snapshot for the next restart: exports the catalogue to
 * alltabs.sav, stages the snapshot's batch files in c:\windows\temp, hooks AUTOEXEC.BAT and
 * writes REGWIN.INI with the restart switch of `mode` (0 /QH, 2 /QL, other /QN). Every step runs;
 * 0, or the code of the last failed step (1010, 1001, 1002, 1003, 1005, 1004), or 1009 when a
 * .pif file was not staged. A name shorter than ten characters stages nothing: 1001. The caller
 * records the pending restore (DoRestore=1 in sswizard.ini) and restarts the machine. */
SNAPSHOT_API LONG WINAPI RestoreSSImg(LPCSTR name, LONG mode);

/* Adds one file of a snapshot to the single-file restore session (_rfbob.sav, _rfbow.sav in the
 * store); close = 1 also stages the session for the next restart and sets DoRestore=1. A file
 * the snapshot does not hold adds no block. 0, or the last failed step's code (1010, 1001,
 * 1002, 1005, 1004), or 1009 when a .pif file was not staged; a name shorter than ten
 * characters changes nothing: 1001. */
SNAPSHOT_API LONG WINAPI RestoreSSFile(LPCSTR name, LPCSTR file, LONG close, LONG mode);

/* Starts the delete worker (0, or 1000); it ends by sending 200 or 201 to `window`. */
SNAPSHOT_API LONG WINAPI DeleteSSImg(HWND window, LPCSTR name, LONG priority);

/* The consistency check alone: 0, 1013, 1012, 1011 or 1007. Changes nothing. */
SNAPSHOT_API LONG WINAPI RollBack(void);

/* Undoes an interrupted date fixing from fixall.sav: 0, 1014 or 1015. */
SNAPSHOT_API LONG WINAPI RollBackFixDates(void);

/* Undoes an interrupted delete from snapshot.sav and cref.sav. Always 0. */
SNAPSHOT_API LONG WINAPI RollBackDelete(void);

/* Clears the mark of an interrupted save (DoSave = 0). Always 0. */
SNAPSHOT_API LONG WINAPI RollBackSave(void);

/* Starts the date-fixing worker (0, or 1000); it ends by sending 302, 303 or 301. `pairs`
 * receives one SSRenameRecord per listed snapshot when snapshots are re-dated. */
SNAPSHOT_API LONG WINAPI FixSSImgDates(HWND window, LONG days, SSRenameRecord* pairs,
                                       LONG priority);

/* Number of snapshots in the snapshot list. */
SNAPSHOT_API LONG WINAPI GetSSImgCount(void);

/* With an empty name fills one SSImgRecord per listed snapshot (GetSSImgCount of them) and
 * returns their number; with a name fills one record when it is listed (case-sensitive) and
 * returns 1, else writes nothing and returns 0. */
SNAPSHOT_API LONG WINAPI ListSSImg(LPCSTR name, SSImgRecord* buffer);

/* Number of files of a snapshot (kernel plus user files). */
SNAPSHOT_API LONG WINAPI GetSSImgInfoCount(LPCSTR name);

/* Fills one SSFileRecord per file of the snapshot, kernel files first; returns their number.
 * The buffer must hold GetSSImgInfoCount(name) records. */
SNAPSHOT_API LONG WINAPI GetSSImgInfo(SSFileRecord* buffer, LPCSTR name);

/* Number of stored file versions. */
SNAPSHOT_API LONG WINAPI GetSSFilesCount(void);

/* Fills one SSFileRecord per stored version whose source name equals `filter` exactly (every
 * version when the filter is empty), in the order they were first stored; returns their
 * number. The buffer must hold GetSSFilesCount() records. */
SNAPSHOT_API LONG WINAPI ListSSFiles(LPCSTR filter, SSFileRecord* buffer);

/* Pauses (0), continues (1) or stops (2) every running worker; 0, or 1008 when the last thread
 * call failed. Any other state does nothing and returns 0. */
SNAPSHOT_API LONG WINAPI SetSSState(LONG state);

/* Function types for callers that load the library by name. */
typedef LONG(WINAPI* PFN_Init)(LPCSTR);
typedef LONG(WINAPI* PFN_SaveSSImage)(HWND, LPCSTR, LPCSTR, LONG);
typedef LONG(WINAPI* PFN_RestoreSSImg)(LPCSTR, LONG);
typedef LONG(WINAPI* PFN_RestoreSSFile)(LPCSTR, LPCSTR, LONG, LONG);
typedef LONG(WINAPI* PFN_DeleteSSImg)(HWND, LPCSTR, LONG);
typedef LONG(WINAPI* PFN_RollBack)(void);
typedef LONG(WINAPI* PFN_FixSSImgDates)(HWND, LONG, SSRenameRecord*, LONG);
typedef LONG(WINAPI* PFN_GetSSImgCount)(void);
typedef LONG(WINAPI* PFN_ListSSImg)(LPCSTR, SSImgRecord*);
typedef LONG(WINAPI* PFN_GetSSImgInfoCount)(LPCSTR);
typedef LONG(WINAPI* PFN_GetSSImgInfo)(SSFileRecord*, LPCSTR);
typedef LONG(WINAPI* PFN_GetSSFilesCount)(void);
typedef LONG(WINAPI* PFN_ListSSFiles)(LPCSTR, SSFileRecord*);
typedef LONG(WINAPI* PFN_SetSSState)(LONG);

#endif /* SNAPSHOT_SNAPSHOT_H */
