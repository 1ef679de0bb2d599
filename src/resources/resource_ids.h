// Resource and control ids shared by the resource script and the code.
#ifndef TREP_RESOURCES_RESOURCE_IDS_H_
#define TREP_RESOURCES_RESOURCE_IDS_H_

#define kIconProgram 500

#endif  // TREP_RESOURCES_RESOURCE_IDS_H_
