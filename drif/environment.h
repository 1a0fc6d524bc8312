// The package environment as drenable's driver sees it: the cluster type,
// the package directory and the flag that says the storage of this node was
// switched to read-write during this run. Derived classes read the values
// from the package's environment file or the cluster manager. The object
// owns copies of its texts.
#ifndef DRIF_ENVIRONMENT_H
#define DRIF_ENVIRONMENT_H

class Logger;

class Environment {
 public:
  Environment();
  virtual ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // Fills the environment from a file path (a name with a '/') or a
  // package name; true when every required value was found.
  virtual bool read(char* name) = 0;

  bool getSwitch() const { return switched; }
  void setSwitch(bool value) { switched = value; }
  // Null until set.
  char* getClusterType() const { return clusterType; }
  void setClusterType(const char* value);
  char* getPackageDir() const { return packageDir; }
  void setPackageDir(const char* value);

 protected:
  Logger* log;
  char* clusterType;
  char* packageDir;
  bool switched;
};

#endif  // DRIF_ENVIRONMENT_H
