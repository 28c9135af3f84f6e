// Check of a password against the host's own shadow password database. Guards the
// driver-reload-with-reboot operation, which only the host's root user may request; the
// service's own logins use KelAccount instead.
#ifndef KEL_SERVICE_ACCOUNT_SYS_ACCOUNT_H
#define KEL_SERVICE_ACCOUNT_SYS_ACCOUNT_H

// True when `user` has a shadow entry with an encrypted password and `password` hashes to
// it. False for null arguments, unknown users, locked or empty entries, and when the
// shadow database cannot be read (the service must run as root to read it). Thread-safe.
bool TarvoVerifySysAccount(const char* user, const char* password);

// True when hashing `password` with `storedHash` as the setting reproduces `storedHash`
// exactly. False for null or empty `storedHash` and for hashes crypt cannot use (locked
// entries such as "!" or "*"). Pure: touches no database. Thread-safe.
bool VerifyCryptHash(const char* password, const char* storedHash);

#endif
