// The command codes of the wire protocol: one table for the service and its clients.
// Codes 1-18 are RAID commands; 250 and up are service-local. Code 255 carries a sub-code
// in the first payload byte.
#ifndef KEL_SHAREDLIB_CMD_CODES_H
#define KEL_SHAREDLIB_CMD_CODES_H

enum KelCmdCode : unsigned char {
  KEL_CMD_SMR = 1,
  KEL_CMD_CREATE_RAID = 2,
  KEL_CMD_REMOVE_RAID = 3,
  KEL_CMD_REPAIR_RAID = 4,
  KEL_CMD_ADD_SPARE = 5,
  KEL_CMD_REMOVE_SPARE = 6,
  KEL_CMD_GET_CONTROLLER = 7,
  KEL_CMD_GET_CHANNEL = 8,
  KEL_CMD_GET_HUB = 9,
  KEL_CMD_GET_DEVICE = 10,
  KEL_CMD_GET_ARRAY = 11,
  KEL_CMD_GET_VD = 12,
  KEL_CMD_GET_PARTITION = 13,
  KEL_CMD_UPDATE_HARDWARE = 14,
  KEL_CMD_RELOAD_DRIVER = 15,
  KEL_CMD_SMART = 16,
  KEL_CMD_GET_PROTECT = 17,
  // Wipes the configuration area of disks whose area cannot be used as it stands.
  KEL_CMD_CLEAR_DISK = 18,
  KEL_CMD_LOGIN = 250,
  KEL_CMD_SESSION_LOGIN = 251,
  KEL_CMD_NOTIFY = 252,
  KEL_CMD_WELCOME = 253,
  KEL_CMD_DISCONNECT = 254,
  KEL_CMD_LOCAL = 255,
};

// Sub-codes of code 255.
enum KelLocalSubCode : unsigned char {
  KEL_LOCAL_LOGOUT = 0,
  KEL_LOCAL_LOG_STATUS = 1,
  KEL_LOCAL_CLEAR_LOG = 2,
  KEL_LOCAL_LOG_ITEMS = 3,
  KEL_LOCAL_GET_BEEP = 4,
  KEL_LOCAL_SET_BEEP = 5,
  KEL_LOCAL_CHANGE_PASSWD = 6,
  KEL_LOCAL_GET_CHECKDISK = 7,
  KEL_LOCAL_SET_CHECKDISK = 8,
  KEL_LOCAL_TEST = 9,
};

#endif
