// Declarations of the BASS audio library, version 2.4, as the player calls it: the types, the
// constants it passes and the records it reads, and the stdcall entry points that bass.dll exports
// under undecorated names. The vendor's bass.dll and our stand-in both satisfy this header.
//
// Threading: sync callbacks (SYNCPROC) run on a thread of the library, never on the caller's; a
// callback must not free the channel it was called for.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
// Natively only the constants and record layouts are of use (tests of portable code).
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef void *HWND;
struct GUID;
#define CALLBACK
#define WINAPI
#endif

#define BASSDEF(f) WINAPI f

typedef uint64_t QWORD;
typedef DWORD HMUSIC;   // module music handle
typedef DWORD HSAMPLE;  // sample handle
typedef DWORD HCHANNEL; // sample playback channel handle
typedef DWORD HSTREAM;  // stream handle
typedef DWORD HSYNC;    // sync handle
typedef DWORD HPLUGIN;  // add-on handle

// BASS_GetVersion: high word 0x0204 for every 2.4 release.
#define BASSVERSION 0x204

// Error codes (BASS_ErrorGetCode).
#define BASS_OK 0
#define BASS_ERROR_MEM 1       // out of memory
#define BASS_ERROR_FILEOPEN 2  // the file could not be opened
#define BASS_ERROR_DRIVER 3    // no usable output driver
#define BASS_ERROR_HANDLE 5    // not a valid handle
#define BASS_ERROR_FORMAT 6    // unsupported sample format
#define BASS_ERROR_POSITION 7  // invalid position
#define BASS_ERROR_INIT 8      // BASS_Init has not succeeded
#define BASS_ERROR_START 9     // output cannot start
#define BASS_ERROR_ALREADY 14  // already initialised, paused or in use
#define BASS_ERROR_NOCHAN 18   // no free channels
#define BASS_ERROR_ILLTYPE 19  // an illegal type was given
#define BASS_ERROR_ILLPARAM 20 // an illegal parameter was given
#define BASS_ERROR_DEVICE 23   // illegal device number
#define BASS_ERROR_NOPLAY 24   // not playing
#define BASS_ERROR_NOTFILE 27  // the stream is not a file stream
#define BASS_ERROR_NOTAVAIL 37 // the requested data or action is not available
#define BASS_ERROR_DECODE 38   // the channel is a decoding channel
#define BASS_ERROR_FILEFORM 41 // unsupported file format
#define BASS_ERROR_VERSION 43  // wrong version (also the player's own code for a 2.x library not 2.4)
#define BASS_ERROR_CODEC 44    // codec not available or supported
#define BASS_ERROR_ENDED 45    // the channel or file has ended
#define BASS_ERROR_UNKNOWN -1

// BASS_Init flags and devices.
#define BASS_DEVICE_DEFAULT_INDEX -1 // the default output device

// Sample, stream and music flags.
#define BASS_SAMPLE_8BITS 1
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_LOOP 4
#define BASS_SAMPLE_FLOAT 256
#define BASS_STREAM_PRESCAN 0x20000
#define BASS_STREAM_AUTOFREE 0x40000
#define BASS_STREAM_DECODE 0x200000
#define BASS_MUSIC_RAMP 0x200          // normal ramping
#define BASS_MUSIC_RAMPS 0x400         // sensitive ramping
#define BASS_MUSIC_PRESCAN 0x20000     // compute the length when loading
#define BASS_MUSIC_STOPBACK 0x80000    // stop at a backward jump
#define BASS_MUSIC_POSRESET 0x8000     // stop all notes when seeking
#define BASS_MUSIC_POSRESETEX 0x400000 // reset everything when seeking
#define BASS_UNICODE 0x80000000        // a file name is UTF-16

// BASS_ChannelIsActive.
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

// Channel attributes.
#define BASS_ATTRIB_FREQ 1
#define BASS_ATTRIB_VOL 2 // 0..1
#define BASS_ATTRIB_PAN 3 // -1 (left) .. +1 (right)

// Position modes.
#define BASS_POS_BYTE 0
#define BASS_POS_MUSIC_ORDER 1

// BASS_StreamGetFilePosition modes; the download position of a plain file stream is all ones.
#define BASS_FILEPOS_CURRENT 0
#define BASS_FILEPOS_DOWNLOAD 1
#define BASS_FILEPOS_END 2
#define BASS_FILEPOS_START 3

// Sync types.
#define BASS_SYNC_POS 0   // param: byte position
#define BASS_SYNC_END 2   // the end of the channel
#define BASS_SYNC_SLIDE 5 // an attribute slide has ended
#define BASS_SYNC_FREE 8  // the channel has been freed
#define BASS_SYNC_ONETIME 0x80000000

// BASS_ChannelGetTags types and what each returns.
#define BASS_TAG_ID3 0            // the 128-byte ID3v1 block ("TAG", title 30, artist 30, album 30, ...)
#define BASS_TAG_ID3V2 1          // the whole ID3v2 tag from its "ID3" header on
#define BASS_TAG_OGG 2            // "KEY=value" UTF-8 strings, each NUL-ended, a second NUL after the last
#define BASS_TAG_RIFF_INFO 0x100  // "IART=value" strings of a LIST/INFO chunk, as BASS_TAG_OGG
#define BASS_TAG_MUSIC_NAME 0x10000 // the module's name, NUL-ended

// Channel type codes (BASS_CHANNELINFO.ctype).
#define BASS_CTYPE_STREAM_OGG 0x10002
#define BASS_CTYPE_STREAM_MP1 0x10003
#define BASS_CTYPE_STREAM_MP2 0x10004
#define BASS_CTYPE_STREAM_MP3 0x10005
#define BASS_CTYPE_STREAM_AIFF 0x10006
#define BASS_CTYPE_STREAM_FLAC 0x10900
#define BASS_CTYPE_STREAM_WAV 0x40000 // bit set for every WAVE stream
#define BASS_CTYPE_STREAM_WAV_PCM 0x50001
#define BASS_CTYPE_STREAM_WAV_FLOAT 0x50003
#define BASS_CTYPE_MUSIC_MOD 0x20000
#define BASS_CTYPE_MUSIC_MTM 0x20001
#define BASS_CTYPE_MUSIC_S3M 0x20002
#define BASS_CTYPE_MUSIC_XM 0x20003
#define BASS_CTYPE_MUSIC_IT 0x20004
#define BASS_CTYPE_MUSIC_MO3 0x00100 // bit set for MO3 modules

// Device information: 14 DWORD-sized fields.
typedef struct {
  DWORD flags;     // device capabilities
  DWORD hwsize;    // hardware memory
  DWORD hwfree;    // free hardware memory
  DWORD freesam;   // free sample slots
  DWORD free3d;    // free 3D sample slots
  DWORD minrate;   // lowest sample rate
  DWORD maxrate;   // highest sample rate
  BOOL eax;        // EAX support
  DWORD minbuf;    // recommended minimum buffer length in ms
  DWORD dsver;     // DirectSound version
  DWORD latency;   // playback delay in ms
  DWORD initflags; // the flags given to BASS_Init
  DWORD speakers;  // number of speakers
  DWORD freq;      // output rate
} BASS_INFO;
static_assert(sizeof(BASS_INFO) == 56, "BASS_INFO is 14 four-byte fields");

// Channel information; 32 bytes in the 32-bit library.
typedef struct {
  DWORD freq;           // default sample rate
  DWORD chans;          // channels
  DWORD flags;          // BASS_SAMPLE/STREAM/MUSIC flags
  DWORD ctype;          // BASS_CTYPE_*
  DWORD origres;        // original resolution in bits
  HPLUGIN plugin;       // the add-on that opened it, 0 for the library itself
  HSAMPLE sample;       // the sample of a sample channel
  const char *filename; // the file name as given (UTF-16 with BASS_UNICODE)
} BASS_CHANNELINFO;
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(BASS_CHANNELINFO) == 32, "BASS_CHANNELINFO is 8 four-byte fields");
#endif

// A sync callback: handle of the sync, the channel, sync-specific data, the caller's value.
typedef void(CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data, void *user);

#ifdef __cplusplus
extern "C" {
#endif

// 0x0204xxxx for 2.4.
DWORD BASSDEF(BASS_GetVersion)(void);
// The error code of the caller's thread's last call (BASS_OK after a success).
int BASSDEF(BASS_ErrorGetCode)(void);
// device -1 = default; nonzero on success, else BASS_ErrorGetCode (14: already started).
BOOL BASSDEF(BASS_Init)(int device, DWORD freq, DWORD flags, HWND win, const GUID *dsguid);
BOOL BASSDEF(BASS_GetInfo)(BASS_INFO *info);
BOOL BASSDEF(BASS_Free)(void);
// flags: BASS_UNICODE when file is UTF-16. 0 on failure.
HPLUGIN BASSDEF(BASS_PluginLoad)(const char *file, DWORD flags);
BOOL BASSDEF(BASS_PluginFree)(HPLUGIN handle);

// mem 0: file is a path (UTF-16 with BASS_UNICODE); length 0 = to the end of the file.
HSTREAM BASSDEF(BASS_StreamCreateFile)(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
BOOL BASSDEF(BASS_StreamFree)(HSTREAM handle);
// (QWORD)-1 on failure, and for BASS_FILEPOS_DOWNLOAD of a plain file.
QWORD BASSDEF(BASS_StreamGetFilePosition)(HSTREAM handle, DWORD mode);
HMUSIC BASSDEF(BASS_MusicLoad)(BOOL mem, const void *file, QWORD offset, DWORD length, DWORD flags, DWORD freq);
BOOL BASSDEF(BASS_MusicFree)(HMUSIC handle);

// Byte counts for mode BASS_POS_BYTE; (QWORD)-1 on failure.
QWORD BASSDEF(BASS_ChannelGetLength)(DWORD handle, DWORD mode);
QWORD BASSDEF(BASS_ChannelGetPosition)(DWORD handle, DWORD mode);
BOOL BASSDEF(BASS_ChannelSetPosition)(DWORD handle, QWORD pos, DWORD mode);
double BASSDEF(BASS_ChannelBytes2Seconds)(DWORD handle, QWORD pos);
QWORD BASSDEF(BASS_ChannelSeconds2Bytes)(DWORD handle, double pos);
BOOL BASSDEF(BASS_ChannelGetInfo)(DWORD handle, BASS_CHANNELINFO *info);
BOOL BASSDEF(BASS_ChannelSetAttribute)(DWORD handle, DWORD attrib, float value);
BOOL BASSDEF(BASS_ChannelGetAttribute)(DWORD handle, DWORD attrib, float *value);
// Moves the attribute to value over time ms in the background.
BOOL BASSDEF(BASS_ChannelSlideAttribute)(DWORD handle, DWORD attrib, float value, DWORD time);
// attrib 0: any attribute. Nonzero while sliding.
BOOL BASSDEF(BASS_ChannelIsSliding)(DWORD handle, DWORD attrib);
BOOL BASSDEF(BASS_ChannelPlay)(DWORD handle, BOOL restart);
BOOL BASSDEF(BASS_ChannelPause)(DWORD handle);
BOOL BASSDEF(BASS_ChannelStop)(DWORD handle);
// BASS_ACTIVE_*.
DWORD BASSDEF(BASS_ChannelIsActive)(DWORD handle);
// 0 on failure. The callback runs on the library's thread.
HSYNC BASSDEF(BASS_ChannelSetSync)(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user);
BOOL BASSDEF(BASS_ChannelRemoveSync)(DWORD handle, HSYNC sync);
// lock nonzero: the library's thread waits until the channel is unlocked.
BOOL BASSDEF(BASS_ChannelLock)(DWORD handle, BOOL lock);
// The raw tag block of a type (BASS_TAG_*), owned by the channel; NULL when there is none.
const char *BASSDEF(BASS_ChannelGetTags)(DWORD handle, DWORD tags);
// Low word left, high word right, each 0..32768; (DWORD)-1 on failure.
DWORD BASSDEF(BASS_ChannelGetLevel)(DWORD handle);

#ifdef __cplusplus
}
#endif
