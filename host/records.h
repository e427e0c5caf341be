/* The host's records as the plug-in sees them: module descriptor, service lookup, the command's
 * local record and mesh edit, and the message, surface and panel services. Layout is the host's
 * ABI: member n (counted from 1) of each function table sits at (n - 1) pointer sizes, checked
 * below for 32- and 64-bit builds. Plain C, so a host written in C can include it too.
 * Divisions: basic types; module descriptor; command and mesh edit; services; layout checks. */
#ifndef DUSTWEAVE_HOST_RECORDS_H
#define DUSTWEAVE_HOST_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- basic types ---------------------------------------------------------------------- */

typedef uint32_t LWID;          /* control ids and hint tags: 32 bits on every host */
typedef void* LWPntID;          /* opaque point handle; null = none */
typedef void* LWPolID;          /* opaque polygon handle */
typedef void* LWSurfaceID;      /* opaque surface handle */
typedef void* LWXPanelID;       /* opaque panel handle */
typedef void* EDStateRef;       /* the mesh edit's own state, passed back on each call */
typedef uintptr_t LWXPHint;     /* one word of a hint list */
typedef void (*LWUnusedFunc)(void); /* a member the plug-in never calls */

/* Service lookup: (service name, use code 0) -> service record or null. */
typedef void* GlobalFunc(const char* serviceName, int useCode);

/* Activation of a server: returns 0 done, 1 wrong interface version, 2 service missing. */
typedef int ActivateFunc(int version, GlobalFunc* global, void* local, void* serverData);

/* ---- module descriptor ---------------------------------------------------------------- */

#define MOD_SYNC 0x04121994u     /* synchronisation word the host checks first */
#define MOD_SYSTEM_VERSION 3u
#define MOD_MACHINE 0x300u

typedef struct ServerRecord {
  const char* className;   /* "CommandSequence" */
  const char* name;        /* the server's name */
  ActivateFunc* activate;
  void* tagInfo;           /* null */
} ServerRecord;            /* a list of these ends with an all-null record */

typedef struct ModuleDescriptor {
  uint32_t sync;
  uint32_t sysVersion;
  uint32_t machine;
  void* (*startup)(void);
  void (*shutdown)(void* serverData);
  ServerRecord* serverDefs;
} ModuleDescriptor;

/* ---- command and mesh edit ------------------------------------------------------------ */

#define COMMAND_INTERFACE_VERSION 3

typedef struct MeshEditOp {
  EDStateRef state;                                            /* 1 */
  int layerNum;                                                /* 2 (padded to a pointer) */
  void (*done)(EDStateRef state, int error, int selectMode);   /* 3: ends the edit */
  LWUnusedFunc reserved4[7];                                   /* 4 .. 10 */
  LWPntID (*addPoint)(EDStateRef state, double* position);     /* 11: null = none */
  LWPolID (*addFace)(EDStateRef state, const char* surface,    /* 12 */
                     int count, const LWPntID* points);
} MeshEditOp;

typedef struct LWModCommand {
  void* data;                                                  /* 1 */
  const char* argument;                                        /* 2 */
  LWUnusedFunc reserved3[2];                                   /* 3 .. 4 */
  MeshEditOp* (*editBegin)(int pointBuf, int polyBuf, int selectMode); /* 5: null = declined */
} LWModCommand;

/* ---- services ------------------------------------------------------------------------- */

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"
#define LWXPANELFUNCS_GLOBAL "LWXPanel"
#define LWSURFACEFUNCS_GLOBAL "Surface Functions 4"

typedef struct LWMessageFuncs {
  LWUnusedFunc info;                                           /* 1 */
  void (*error)(const char* text, const char* text2);          /* 2 */
  LWUnusedFunc warning;                                        /* 3 */
  int (*okCancel)(const char* title, const char* text, const char* text2); /* 4: 0 = Cancel */
} LWMessageFuncs;

typedef struct LWSurfaceFuncs {
  LWUnusedFunc create;                                         /* 1 */
  LWSurfaceID (*first)(void);                                  /* 2 */
  LWSurfaceID (*next)(LWSurfaceID surface);                    /* 3 */
  LWUnusedFunc reserved4[2];                                   /* 4 .. 5 */
  const char* (*name)(LWSurfaceID surface);                    /* 6: host-owned text or null */
} LWSurfaceFuncs;

#define LWXP_FORM 2

typedef struct LWXPanelControl {  /* control list entry; a list ends with id 0 */
  LWID id;
  const char* label;
  const char* controlType;
} LWXPanelControl;

typedef struct LWXPanelDataDesc {  /* data list entry; a list ends with id 0 */
  LWID id;
  const char* name;
  const char* dataType;
} LWXPanelDataDesc;

typedef void* LWXPanelGetFunc(void* instance, LWID id);
typedef int LWXPanelSetFunc(void* instance, LWID id, void* value);

typedef struct LWXPanelFuncs {
  int version;                                                 /* 1 (padded to a pointer) */
  LWUnusedFunc reserved2;                                      /* 2 */
  LWXPanelID (*create)(int type, LWXPanelControl* controls);   /* 3: null = failed */
  void (*destroy)(LWXPanelID panel);                           /* 4 */
  void (*describe)(LWXPanelID panel, LWXPanelDataDesc* data,   /* 5 */
                   LWXPanelGetFunc* get, LWXPanelSetFunc* set);
  void (*hint)(LWXPanelID panel, LWID id, LWXPHint* hints);    /* 6 */
  LWUnusedFunc reserved7[2];                                   /* 7 .. 8 */
  void* (*formGet)(LWXPanelID panel, LWID id);                 /* 9: valid until destroy */
  void (*formSet)(LWXPanelID panel, LWID id, void* value);     /* 10 */
  LWUnusedFunc reserved11[2];                                  /* 11 .. 12 */
  int (*post)(LWXPanelID panel);                               /* 13: non-zero = OK */
} LWXPanelFuncs;

/* Hint tags the plug-in uses. */
#define XPTAG_LABEL 0x3D000B03u     /* id, text: the panel's (id 0) or a control's label */
#define XPTAG_FILE_CONTROL 0x3D021481u  /* id, 0: read by the host for the file control */
#define XPTAG_STRLIST 0x3D014503u   /* id, null-ended text array: a popup's choices */

/* ---- layout checks -------------------------------------------------------------------- */

#ifdef __cplusplus
#define HOST_STATIC_ASSERT(cond, what) static_assert(cond, what)
#else
#define HOST_STATIC_ASSERT(cond, what) _Static_assert(cond, what)
#endif

/* Member n of a function table at (n - 1) pointers: off32 bytes on 32-bit, off64 on 64-bit. */
#if UINTPTR_MAX == 0xFFFFFFFFu
#define HOST_MEMBER_AT(type, member, n, off32, off64) \
  HOST_STATIC_ASSERT(offsetof(type, member) == (off32) && (off32) == ((n) - 1) * 4, \
                     #type "." #member " must be member " #n)
#else
#define HOST_MEMBER_AT(type, member, n, off32, off64) \
  HOST_STATIC_ASSERT(offsetof(type, member) == (off64) && (off64) == ((n) - 1) * 8, \
                     #type "." #member " must be member " #n)
#endif

HOST_MEMBER_AT(LWModCommand, editBegin, 5, 16, 32);
HOST_MEMBER_AT(MeshEditOp, state, 1, 0, 0);
HOST_MEMBER_AT(MeshEditOp, done, 3, 8, 16);
HOST_MEMBER_AT(MeshEditOp, addPoint, 11, 40, 80);
HOST_MEMBER_AT(MeshEditOp, addFace, 12, 44, 88);
HOST_MEMBER_AT(LWMessageFuncs, error, 2, 4, 8);
HOST_MEMBER_AT(LWMessageFuncs, okCancel, 4, 12, 24);
HOST_MEMBER_AT(LWSurfaceFuncs, first, 2, 4, 8);
HOST_MEMBER_AT(LWSurfaceFuncs, next, 3, 8, 16);
HOST_MEMBER_AT(LWSurfaceFuncs, name, 6, 20, 40);
HOST_MEMBER_AT(LWXPanelFuncs, create, 3, 8, 16);
HOST_MEMBER_AT(LWXPanelFuncs, destroy, 4, 12, 24);
HOST_MEMBER_AT(LWXPanelFuncs, describe, 5, 16, 32);
HOST_MEMBER_AT(LWXPanelFuncs, hint, 6, 20, 40);
HOST_MEMBER_AT(LWXPanelFuncs, formGet, 9, 32, 64);
HOST_MEMBER_AT(LWXPanelFuncs, formSet, 10, 36, 72);
HOST_MEMBER_AT(LWXPanelFuncs, post, 13, 48, 96);

/* The descriptor: three 32-bit words, then three pointers (aligned on 64-bit). */
#if UINTPTR_MAX == 0xFFFFFFFFu
HOST_STATIC_ASSERT(offsetof(ModuleDescriptor, startup) == 12, "descriptor startup at 12");
HOST_STATIC_ASSERT(offsetof(ModuleDescriptor, serverDefs) == 20, "descriptor servers at 20");
HOST_STATIC_ASSERT(sizeof(ServerRecord) == 16, "server record is four pointers");
HOST_STATIC_ASSERT(offsetof(LWXPanelControl, label) == 4, "control label after the id");
HOST_STATIC_ASSERT(sizeof(LWXPanelControl) == 12, "control entry is id and two texts");
#else
HOST_STATIC_ASSERT(offsetof(ModuleDescriptor, startup) == 16, "descriptor startup at 16");
HOST_STATIC_ASSERT(offsetof(ModuleDescriptor, serverDefs) == 32, "descriptor servers at 32");
HOST_STATIC_ASSERT(sizeof(ServerRecord) == 32, "server record is four pointers");
HOST_STATIC_ASSERT(offsetof(LWXPanelControl, label) == 8, "control label after the id");
HOST_STATIC_ASSERT(sizeof(LWXPanelControl) == 24, "control entry is id and two texts");
#endif
HOST_STATIC_ASSERT(offsetof(ModuleDescriptor, machine) == 8, "three 32-bit words first");
HOST_STATIC_ASSERT(sizeof(LWXPanelDataDesc) == sizeof(LWXPanelControl), "same entry shape");
HOST_STATIC_ASSERT(sizeof(LWXPHint) == sizeof(void*), "hints are pointer-sized words");

#ifdef __cplusplus
}
#endif

#endif
