<%@ page errorPage="failed.jsp" %>
<p>this text is discarded when the page fails</p>
<% if (request.getParameter("fail") != null) throw new IllegalArgumentException("asked to fail"); %>
<p>the page did not fail</p>
