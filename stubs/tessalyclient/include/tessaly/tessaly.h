// The whole cloud client library.
#pragma once

#include "tessalytypes.h"
#include "questions.h"
#include "presenterclient.h"
#include "presentercollab.h"
#include "presenterassessment.h"
#include "collabframe.h"
