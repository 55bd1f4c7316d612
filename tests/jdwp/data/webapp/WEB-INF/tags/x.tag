<%@ tag body-content="scriptless" %>
<%@ attribute name="frag" fragment="true" %>
<span>tag-before</span>
<jsp:invoke fragment="frag"/>
<span>tag-between</span>
<jsp:doBody/>
<span>tag-after</span>
